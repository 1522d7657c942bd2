#pragma once

#include <array>
#include <cstddef>

// One ISO 639-2 code (lower case) with the English name of its language, in plain ASCII.
struct OrvoLanguageName
{
    const char *code;
    const char *name;
};

inline constexpr std::size_t kOrvoLanguageCount = 502;

// Every code that OrvoLanguageMap knows, ascending by code.
extern const std::array<OrvoLanguageName, kOrvoLanguageCount> kOrvoLanguageNames;
