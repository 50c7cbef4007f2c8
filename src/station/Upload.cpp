#include "station/Upload.h"
