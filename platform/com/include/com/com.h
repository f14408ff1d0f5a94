// Everything a client or a server of the runtime includes.
#pragma once
#include "com/interfaces.h"
#include "com/oleauto.h"
