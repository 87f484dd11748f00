#include "http/url.h"
