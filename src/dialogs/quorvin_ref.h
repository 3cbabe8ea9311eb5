#pragma once
// The program-wide reference to the one controller. The main window sets it
// when it creates the controller and clears it when it destroys it; both
// dialogs reach the controller through it unless they are given one.

class TQuorvin;

extern TQuorvin* Quorvin;

// `given`, or the program-wide controller when none is given; raises
// std::logic_error when there is neither.
TQuorvin& ControllerOrProgramWide(TQuorvin* given);
