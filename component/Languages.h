#pragma once
// Languages as files and people name them: files carry three-letter codes
// (both "fre" and "fra" for French), people also write two-letter ones or
// the name. One table reads them all and names them for messages.

#include <string>

// The lower-case three-letter code of a language given as a code of two or
// three letters (either variant) or an English name; an unknown text comes
// back in lower case.
std::string LanguageCode(const std::string& given);
// The English name of a language ("Japanese"), or its code when unknown.
std::string LanguageName(const std::string& code);
