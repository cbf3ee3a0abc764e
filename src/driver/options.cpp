#include "driver/options.h"

#include <CLI/CLI.hpp>

namespace vcshrink {
namespace {

// The options of a run. A new option is one more line here and one field of Options;
// the usage line and the help list follow from it.
void add_options(CLI::App& app, Options& o) {
  app.add_option("--summary", o.summary,
                 "after the report, write every number of the run in full precision to FILE (JSON)")
      ->type_name("FILE");
  app.add_option("--plot", o.plot,
                 "after the report, draw the eigenvalues before and after bending and, for the optimized "
                 "procedure, the score of every bending factor to FILE (SVG)")
      ->type_name("FILE");
}

bool takes_value(const CLI::Option& opt) { return opt.get_type_size() > 0 && !opt.get_type_name().empty(); }

// "usage: vcshrink [--help] [--version] [--summary FILE] ...", from the options declared.
std::string usage_line(const CLI::App& app) {
  std::string line = "usage: " + app.get_name();
  for (const CLI::Option* opt : app.get_options()) {
    const auto& names = opt->get_lnames();
    if (names.empty()) continue;
    line += " [--" + names.front();
    if (takes_value(*opt)) line += " " + opt->get_type_name();
    line += "]";
  }
  return line + "\n";
}

}  // namespace

ParsedOptions parse_options(int argc, const char* const* argv, const std::string& version) {
  ParsedOptions r;
  CLI::App app{"Bends an additive genetic (co)variance matrix toward a multiple of the residual matrix.\n"
               "The run asks its questions on the console and writes the report to the file named there.",
               "vcshrink"};
  app.set_help_flag("-h,--help", "show this help and exit");
  app.set_version_flag("--version", "vcshrink " + version, "show the program's version and exit");
  app.footer("See vcshrink(1) for the dialogue, the input file and the exit statuses.");
  add_options(app, r.options);
  try {
    app.parse(argc, argv);
    // "--summary=" names no file: an empty name is a missing value too.
    for (const CLI::Option* opt : app.get_options()) {
      if (takes_value(*opt) && opt->count() > 0 && opt->as<std::string>().empty()) {
        throw CLI::ArgumentMismatch(opt->get_name() + ": the file name is empty");
      }
    }
  } catch (const CLI::CallForHelp&) {
    r.run = false;
    r.out = app.help();
  } catch (const CLI::CallForVersion&) {
    r.run = false;
    r.out = "vcshrink " + version + "\n";
  } catch (const CLI::ParseError& e) {
    r.run = false;
    r.status = 1;
    r.err = "vcshrink: " + std::string(e.what()) + "\n" + usage_line(app);
  }
  return r;
}

}  // namespace vcshrink
