#include "config/EasyRegAdvanced.h"
