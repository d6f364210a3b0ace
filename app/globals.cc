#include "app/globals.h"

namespace morlan {

ErrorManager AppErrors;
IniStore AppIni;
WordRanking AppWordRanking;

}  // namespace morlan
