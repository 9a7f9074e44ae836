/* qvzfix_status.h compiled as C, as a C host includes it. */
#include "qvzfix_status.h"

const char* QvzStatusTextFromC(int32_t status);

const char* QvzStatusTextFromC(int32_t status) { return qvz_status_text(status); }
