#include "host/HostStartup.h"
