#include "config/ConfigFileIO.h"
