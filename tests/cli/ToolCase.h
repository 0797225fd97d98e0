#pragma once

// Runs of dendrix-score given as table rows: files, a command line and what
// must come back.

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "RunTool.h"

// The files m.pmml and in.csv are written from model and input; in args
// (blank-separated) "@m", "@in" and "@out" stand for m.pmml, in.csv and out.csv
// in the case's folder, "@NAME" for examples/NAME/model.pmml and "@NAME.csv"
// for examples/NAME/input.csv; NAME=VALUE sets an environment variable. in.csv
// is also standard input. In what must come back "@/" stands for the folder.
struct ToolCase {
  std::string name, model, input, args;
  int exitCode;
  // What standard error and output hold: "=TEXT" exactly TEXT, "^TEXT" TEXT
  // first, otherwise TEXT somewhere. An empty errHas: no message.
  std::string errHas, outHas;
};

// Runs each case and checks its exit status, standard output and messages. A
// model or command-line error (exit 2 or 64) writes no output, a failed run
// leaves no file behind, and no message runs on past 2000 bytes.
inline void ExpectToolCases(const std::vector<ToolCase>& cases) {
  auto expectText = [](const std::string& actual, const std::string& expected) {
    if (expected.rfind('=', 0) == 0) {
      EXPECT_EQ(actual, expected.substr(1));
    } else if (expected.rfind('^', 0) == 0) {
      EXPECT_EQ(actual.rfind(expected.substr(1), 0), 0u) << actual;
    } else {
      EXPECT_NE(actual.find(expected), std::string::npos) << actual;
    }
  };
  const std::map<std::string, std::string> kLocal = {
      {"@m", "/m.pmml"}, {"@in", "/in.csv"}, {"@out", "/out.csv"}};
  for (const ToolCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    folder.Write("m.pmml", c.model);
    folder.Write("in.csv", c.input);
    std::vector<std::string> args, environment;
    std::istringstream words(c.args);
    for (std::string arg; words >> arg;) {
      const bool input = arg.size() > 4 && arg.compare(arg.size() - 4, 4, ".csv") == 0;
      if (std::isupper(arg[0]) && arg.find('=') != std::string::npos) {
        environment.push_back(arg);
      } else if (kLocal.count(arg) != 0) {
        args.push_back(folder.Path() + kLocal.at(arg));
      } else {
        args.push_back(arg[0] != '@' ? arg
                                     : ExamplePath(arg.substr(1, arg.size() - (input ? 5 : 1)) +
                                                   (input ? "/input.csv" : "/model.pmml")));
      }
    }
    ToolRun run = RunTool(args, folder.Path() + "/in.csv", environment);
    const std::regex here("@/");
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    expectText(run.err,
               c.errHas.empty() ? "=" : std::regex_replace(c.errHas, here, folder.Path() + "/"));
    expectText(run.out, std::regex_replace(c.outHas, here, folder.Path() + "/"));
    EXPECT_LT(run.err.size(), 2000u);
    if (c.exitCode == 2 || c.exitCode == 64) {
      EXPECT_EQ(run.out, "");
    }
    if (c.exitCode != 0) {
      EXPECT_EQ(folder.List(), (std::vector<std::string>{"in.csv", "m.pmml"}));
    }
  }
}
