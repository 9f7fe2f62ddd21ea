#include "chime_player.h"
