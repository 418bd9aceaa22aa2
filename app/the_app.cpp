// The program's one application object, started by the process entry.
#include "app/firmware_update_app.h"

CFirmwareUpdateApp theApp;
