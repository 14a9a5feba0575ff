#include "kwinet/core/FormText.h"
