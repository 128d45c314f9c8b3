/* The trigger selectors: four ready state machines, made and driven from
 * Python, never subclassed by the trigger source (no directors). Every
 * operation is called through the virtual table, with the interpreter lock
 * released. */

%{
#include "IZuTriggerSelector.h"
#include "ZuTriggerSelector.h"
%}

/* The state is read through the interface's GetState only. */
%ignore ZuTriggerSelectorDefault::GetState;
%ignore IZuTriggerSelector::State;

%include "IZuTriggerSelector.h"
%include "ZuTriggerSelector.h"
