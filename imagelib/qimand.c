/* Image AND. */
#include "qimown.h"
