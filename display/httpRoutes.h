// What navdisplay serves: the page's files, and three JSON answers built from the state at the
// moment of the request.
//   GET /                  the page; /display.js, /display.css, /favicon.svg its parts
//   GET /api/latest        the last record with its data ages, and the poll's outcome
//   GET /api/history       the kept samples, oldest first; ?after=SEQ for the newer ones only
//   GET /api/config        the poll interval, history length and badge thresholds
#pragma once

#include <httplib.h>

#include <string>

#include "displayOptions.h"
#include "displayState.h"

namespace display {

void addRoutes(httplib::Server &http, const displayState &state, const displayOptions &options,
               const std::string &server);

}  // namespace display
