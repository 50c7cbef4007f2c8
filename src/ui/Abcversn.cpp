#include "ui/Abcversn.h"
