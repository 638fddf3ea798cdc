#include "commands/transfer.h"
