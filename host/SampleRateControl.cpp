#include "host/SampleRateControl.h"
