#include "forms.h"

