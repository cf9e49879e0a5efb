#include "gen/ToneRequests.h"
