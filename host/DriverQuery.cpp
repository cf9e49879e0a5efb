#include "host/DriverQuery.h"
