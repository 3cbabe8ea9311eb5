#include "dialogs/quorvin_ref.h"

TQuorvin* Quorvin = nullptr;
