#include "station/HttpRequest.h"
