// The check step: the handler of the hidden Check button's command, which the
// dialog posts to itself when it opens and the Start button runs again.
#include "wizard/firmware_update_dlg.h"

void CFirmwareUpdateDlg::OnCheck() {}
