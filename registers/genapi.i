/* The GenApi feature factory, lent to the callbacks that declare the
 * software device's custom features. Every operation passes its arguments
 * on; failures come back as results. Texts in an overload set are tried
 * last and converted rather than checked, so a wrong text names its
 * argument. */

%{
#include "IZuGenApiFactory.h"
%}

%apply const ZuString &TARN_TEXT_LAST { const ZuString &aCategory, const ZuString &aCategoryDisplayName,
                                        const ZuString &aName, const ZuString &aDisplayName };
%include "IZuGenApiFactory.h"
%clear const ZuString &aCategory, const ZuString &aCategoryDisplayName, const ZuString &aName,
       const ZuString &aDisplayName;
