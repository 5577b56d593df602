/* Tiles and rectangle copy. */
#include "qimown.h"
