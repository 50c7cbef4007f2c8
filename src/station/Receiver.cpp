#include "station/Receiver.h"
