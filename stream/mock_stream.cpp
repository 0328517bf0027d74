#include "gateway/commands.h"
