#include "dialogs/quorvin_ref.h"

#include <stdexcept>

TQuorvin* Quorvin = nullptr;

TQuorvin& ControllerOrProgramWide(TQuorvin* given) {
  TQuorvin* controller = given ? given : Quorvin;
  if (!controller) throw std::logic_error("The settings dialogs need the controller");
  return *controller;
}
