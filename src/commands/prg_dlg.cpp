#include "commands/prg_dlg.h"
