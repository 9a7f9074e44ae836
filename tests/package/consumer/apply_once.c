/* A host as an integrator writes one, in C: it builds only against the
 * installed headers and library. Usage: apply_once <resource> <directory>.
 * Applies a near-lossless Series L - Shunt C network on port 1 as embedding,
 * prints the version and the outcome, and exits 0 only when every call
 * succeeded. */
#include <stdio.h>

#include "qvzfix.h"
#include "qvzfix_status.h"
#include "qvzfix_version.h"

static int Check(const char* call, int32_t status) {
    if (status != QVZ_VI_SUCCESS) {
        printf("%s: %s\n", call, qvz_status_text(status));
        return 0;
    }
    return 1;
}

int main(int argc, char** argv) {
    int ok;
    if (argc != 3) {
        fprintf(stderr, "usage: apply_once <resource> <directory>\n");
        return 2;
    }
    printf("qvzfix headers %s (%d.%d.%d)\n", QVZFIX_VERSION_STRING, QVZFIX_VERSION_MAJOR,
           QVZFIX_VERSION_MINOR, QVZFIX_VERSION_PATCH);
    ok = Check("QVZ_init", QVZ_init(argv[1])) &&
         Check("QVZ_SetActivePort", QVZ_SetActivePort(1)) &&
         Check("QVZ_SetS2PFilePath", QVZ_SetS2PFilePath(argv[2])) &&
         Check("QVZ_SetS2PFilePrefix", QVZ_SetS2PFilePrefix("Consumer_")) &&
         Check("QVZ_SetCircuit", QVZ_SetCircuit(QVZ_SERIES_L_SHUNT_C)) &&
         Check("QVZ_SetRLCGValues", QVZ_SetRLCGValues(0.01, 4.7e-9, 1.8e-12, 1e-6)) &&
         Check("QVZ_SetAction", QVZ_SetAction(QVZ_EMBEDDING)) &&
         Check("QVZ_ApplyChanges", QVZ_ApplyChanges());
    if (!Check("QVZ_close", QVZ_close())) {
        ok = 0;
    }
    printf("%s\n", ok ? "applied" : "failed");
    return ok ? 0 : 1;
}
