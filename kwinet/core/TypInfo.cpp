#include "kwinet/core/TypInfo.h"
