#include "station/Reading.h"
