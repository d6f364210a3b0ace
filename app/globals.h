// The program's global objects besides the dictionary's (app/dictionary.h): the error manager,
// the settings store and the word-ranking object. They exist for the whole process; start-up
// sets them up and shutdown kills them (app/program.h). The shared request, response and
// navigation values are the window framework's (window/shared_requests.h).
//
// Threading: procedures on any thread use AppErrors (which is thread-safe); AppIni and
// AppWordRanking are set up and killed on the main thread while no procedure runs.
#pragma once

#include "errors/error_manager.h"
#include "query/word_ranking.h"
#include "settings/ini_store.h"

namespace morlan {

inline constexpr char kSettingsFileName[] = "morlan.INI";

extern ErrorManager AppErrors;
extern IniStore AppIni;
extern WordRanking AppWordRanking;

}  // namespace morlan
