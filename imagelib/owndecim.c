/* Placeholder until this module lands. */
#include "qimown.h"
