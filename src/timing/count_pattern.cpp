#include "count_pattern.h"
