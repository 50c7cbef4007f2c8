#include "ui/Abcutil.h"
