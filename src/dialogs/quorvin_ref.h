#pragma once
// The program-wide reference to the one controller. The main window sets it
// when it creates the controller and clears it when it destroys it; both
// dialogs reach the controller through it unless they are given one.

class TQuorvin;

extern TQuorvin* Quorvin;
