#include "rtfwriter.h"
