// Readable names for parameterised tests. Without a name generator gtest
// numbers the cases and CTest shows each parameter's printed value in the
// test name: raw object bytes, quotes, control characters. These name each
// case from its own text instead, as an identifier.
#ifndef QVZ_TEST_PARAM_NAMES_H
#define QVZ_TEST_PARAM_NAMES_H

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace qvz_test {

// Letters and digits are kept, every other run of bytes becomes one '_', and
// the case's index ends the name, so two texts that read alike stay apart.
inline std::string ReadableParamName(std::string_view text, std::size_t index) {
    std::string name;
    bool gap = false;
    for (const char c : text) {
        const bool keep =
            (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!keep) {
            gap = true;
            continue;
        }
        if (gap && !name.empty()) {
            name += '_';
        }
        name += c;
        gap = false;
    }
    if (!name.empty()) {
        name += '_';
    }
    return name + std::to_string(index);
}

// Name generator for INSTANTIATE_TEST_SUITE_P: names each case by one of its
// text fields, e.g. NameByField<&ResourceCase::text>().
template <auto Field>
struct NameByField {
    template <typename Param>
    std::string operator()(const ::testing::TestParamInfo<Param>& info) const {
        return ReadableParamName(std::string_view(info.param.*Field), info.index);
    }
};

}  // namespace qvz_test

#endif
