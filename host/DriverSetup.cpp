#include "host/DriverSetup.h"
