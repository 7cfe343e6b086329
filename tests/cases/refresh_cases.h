// Remote answers on which the data-file refresh stops and leaves every local
// file as it was: one table, run over each platform's adapters against the
// loopback server (tests/refresh_test.cpp).
#pragma once

#include <string>
#include <vector>

#include "actions/data_file_update.h"
#include "tests/http_server.h"
#include "tests/refresh_fixture.h"

namespace varnoke::cases {

struct StopCase {
    const char* name;
    test::HttpServer::Response table;
    test::HttpServer::Response list;
    UpdateOutcome outcome;
    bool lockHeld = false;  // by another refresh, for longer than the budget
};

#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

// Over a local table at checkpoint 5; `newList` is a valid remote list.
inline std::vector<StopCase> StopCases(const std::string& newList) {
    using test::Table;
    using Behaviour = test::HttpServer::Behaviour;
    const std::string bomb = [] {
        std::string s = "<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\">";
        for (int i = 1; i < 10; ++i) {
            s += "<!ENTITY a" + std::to_string(i) + " \"";
            for (int k = 0; k < 10; ++k) s += i == 1 ? "&a;" : "&a" + std::to_string(i - 1) + ";";
            s += "\">";
        }
        return s + "]><r><lastcheckpoint>&a9;</lastcheckpoint><lastupdate>1</lastupdate></r>";
    }();
    const std::string due = Table("9", "1", "", "u");
    return {
        {"equal checkpoint", {200, Table("5", "1", "", "u")}, {200, newList}, UpdateOutcome::not_newer},
        {"smaller checkpoint", {200, Table("4", "1", "", "u")}, {200, newList}, UpdateOutcome::not_newer},
        {"non-numeric checkpoint counts as 0",
         {200, Table("six", "1", "", "u")},
         {200, newList},
         UpdateOutcome::not_newer},
        // Read as the loader reads it: holding an element, it has no value.
        {"a checkpoint holding an element counts as 0",
         {200, Table("<a/>7", "1", "", "u")},
         {200, newList},
         UpdateOutcome::not_newer},
        {"no lastcheckpoint", {200, Table("", "1", "", "u")}, {200, newList}, UpdateOutcome::no_checkpoint},
        {"no lastupdate", {200, Table("9", "", "", "u")}, {200, newList}, UpdateOutcome::no_lastupdate},
        {"404", {404, "gone"}, {200, newList}, UpdateOutcome::table_unreachable},
        {"500", {500, due}, {200, newList}, UpdateOutcome::table_unreachable},
        {"not XML", {200, "<html><body>hello"}, {200, newList}, UpdateOutcome::table_unreachable},
        {"body past the size bound",
         {200, Table("9", "1", "", std::string(100 * 1024, 'x'))},
         {200, newList},
         UpdateOutcome::table_unreachable},
        // The Windows DOM refuses a document type declaration; pugixml reads
        // past it and expands none of its entities.
        {"entity bomb",
         {200, bomb},
         {200, newList},
         kWindows ? UpdateOutcome::table_unreachable : UpdateOutcome::not_newer},
        {"list fails after the table succeeded", {200, due}, {404, ""}, UpdateOutcome::list_unreachable},
        {"list is not XML", {200, due}, {200, "nonsense"}, UpdateOutcome::list_unreachable},
        {"list never answers", {200, due}, {200, newList, Behaviour::never_answer}, UpdateOutcome::list_unreachable},
        // Saved, these would leave both files unloadable and no refresh to mend them.
        {"table names a surrogate",
         {200, Table("9", "1", "", "u", "&#xD800;")},
         {200, newList},
         UpdateOutcome::table_unreachable},
        {"table names NUL", {200, Table("9", "1", "", "u&#0;")}, {200, newList}, UpdateOutcome::table_unreachable},
        {"list names a character past U+10FFFF",
         {200, due},
         {200, "<StockData><KestriaStockList><StockName>&#x110000;</StockName></KestriaStockList></StockData>"},
         UpdateOutcome::list_unreachable},
        {"a sign-in page instead of the list",
         {200, due},
         {200, "<html><body><form><input name=\"user\"/></form></body></html>"},
         UpdateOutcome::list_invalid},
        {"list entries without StockID",
         {200, due},
         {200, "<StockData><KestriaStockList><StockName>N</StockName></KestriaStockList></StockData>"},
         UpdateOutcome::list_invalid},
        {"table without verbs",
         {200,
          "<ActionList><lastcheckpoint>9</lastcheckpoint><lastupdate>1</lastupdate>"
          "<updateurl>u</updateurl></ActionList>"},
         {200, newList},
         UpdateOutcome::table_invalid},
        {"table without updateurl", {200, Table("9", "1", "", "")}, {200, newList}, UpdateOutcome::table_invalid},
        {"another refresh holds the lock", {200, due}, {200, newList}, UpdateOutcome::lock_busy, true},
    };
}

}  // namespace varnoke::cases
