#include "app/bus.h"
