// Which text the user reads for a result code or a guidance request.
#pragma once

#include "platform/afx.h"

// The string id of the message box for a result code; 0 for success, which
// shows no box. A code without a text of its own takes "unknown error".
UINT ResultBoxTextId(int code);

// The string id that guidance request id shows for a model with the given
// update-mode procedure; 0 for the empty text.
UINT GuidanceTextId(UINT id, int procedure);

// The string resource id in the user's language, loaded now; empty when missing.
CString CatalogueText(UINT id);
