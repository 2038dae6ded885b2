#pragma once

// A whole JSON object kept in a connector map's foreignDatabase or foreignID text, as compact
// UTF-8 JSON. Nothing is cached: each read parses the stored text afresh and gives a new
// dictionary (nested containers included, every part of it is the caller's to change); a
// change reaches the record only when written back. Saving the record is the caller's.
//
// Reading never fails: no stored text gives an empty dictionary; text that is not JSON (an
// empty text included), or JSON whose top level is not an object or array, gives an empty
// dictionary and the log line "error: <the parser's description>"; an array gives an empty
// dictionary without a line.
//
// Writing stores the dictionary's compact JSON ("{}" for an empty one). A value JSON cannot
// carry as it is -- a number that is not finite, text that is not valid UTF-8, or anything
// but a dictionary at the top -- leaves the stored text as it was, logs "error: <why>" and
// comes back as the error. The other attribute is never touched.

#include "host/database/model/GWConnectorMap.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

platform::Value kopaJSONDictionaryForForeignDatabase(const GWConnectorMap& map);
platform::Status kopaSetJSONDictionaryForForeignDatabase(GWConnectorMap& map,
                                                         const platform::Value& dictionary);
platform::Value kopaJSONDictionaryForForeignID(const GWConnectorMap& map);
platform::Status kopaSetJSONDictionaryForForeignID(GWConnectorMap& map, const platform::Value& dictionary);
