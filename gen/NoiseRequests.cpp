#include "gen/NoiseRequests.h"
