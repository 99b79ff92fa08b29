#pragma once
// The text and the JSON forms of the EDS commands' records: what an EDS describes (eds), a node's
// parameters as read (params) and the one written (param). The text and JSON printers hand these
// records on to here.

#include "tools/dnet/Json.h"
#include "tools/dnet/Results.h"

#include <string>
#include <vector>

namespace orv::dnet {

std::vector<std::string> EdsText(const EdsResult& result);
// Shown whether or not the command ended well: the parameters read until it stopped.
std::vector<std::string> EdsText(const ParamsResult& result);
std::vector<std::string> EdsText(const ParamWriteResult& result);

void EdsJson(const EdsResult& result, JsonObject& json);
void EdsJson(const ParamsResult& result, JsonObject& json);
void EdsJson(const ParamWriteResult& result, JsonObject& json);

} // namespace orv::dnet
