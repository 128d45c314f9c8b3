/* The display rate stabilizer: a plain class, every operation with the
 * interpreter lock released. */

%{
#include "ZuFPSStabilizer.h"
%}

%include "ZuFPSStabilizer.h"
