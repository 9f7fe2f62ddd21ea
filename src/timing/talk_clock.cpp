#include "talk_clock.h"
