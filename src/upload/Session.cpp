#include "upload/Session.h"
