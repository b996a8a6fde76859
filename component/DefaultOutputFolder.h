#pragma once

#include <string>

// Where converted files go unless a person chose otherwise: "My iPod Files"
// in the home folder, with the trailing "/". The home folder is $HOME, or
// the user's entry in the password database when HOME is unset or empty,
// or the current folder when neither tells.
std::string DefaultOutputFolder();
