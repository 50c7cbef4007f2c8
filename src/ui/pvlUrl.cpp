#include "ui/pvlUrl.h"
