#include "host/DriverMessages.h"
