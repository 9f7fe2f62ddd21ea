#include "settings_file.h"
