// What the emulator answers to *IDN?.
#ifndef QVZSIM_IDENTITY_H
#define QVZSIM_IDENTITY_H

#include <string>

namespace qvzsim {

// "Qaldorn,QVZSIM,0,<version>".
std::string IdentityString();

}  // namespace qvzsim

#endif
