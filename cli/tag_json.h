// SPDX-License-Identifier: MIT
// What the command line shows of an EPC and a TID: the GS1 fields of an EPC (or why it has
// none), maker and chip of a TID from the chip catalogue.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

#include "common/bytes.h"
#include "protocol/tid.h"

namespace kvara::cli {

// The GS1 reading of an EPC: the decoded fields, or the reason it is none.
nlohmann::json Gs1Json(const ByteBuffer& epc);
// "urn:epc:id:..." or an empty text.
std::string Gs1Identity(const ByteBuffer& epc);
nlohmann::json TidJson(const ByteBuffer& tid, const TidCatalog& catalog);

// The chip catalogue beside the program or in its data folder; empty when none is found.
const TidCatalog& Catalog();

}  // namespace kvara::cli
