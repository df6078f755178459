// The run's report on the terminal and in the JSON and JUnit files.
#include "hostsim/check/report.h"

#include <cstdio>
#include <iomanip>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>

namespace hostsim::check {

namespace {

using Json = nlohmann::ordered_json;

// Length of the valid UTF-8 sequence at `s[i]`, or 0 when it is not one.
std::size_t Utf8Length(std::string_view s, std::size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  std::size_t n = 0;
  unsigned min = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    min = 0x10000;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  unsigned code = c & (0x7Fu >> n);
  for (std::size_t k = 1; k < n; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    code = (code << 6) | (b & 0x3Fu);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return n;
}

std::string Seconds(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", s);
  return buf;
}

// Text for XML: the five characters XML gives a meaning escaped. In an attribute a line break
// and a tab are written as character references, which a parser reads back as themselves (it
// would read them as blanks otherwise).
std::string Xml(std::string_view text, bool attribute = false) {
  std::string out;
  for (char c : CleanText(text, true)) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\n':
        out += attribute ? "&#10;" : "\n";
        break;
      case '\t':
        out += attribute ? "&#9;" : "\t";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// What a failure or crash shows beside its reason: the journal and how to run it again.
std::string Evidence(const Report& r, const Result& res) {
  std::string text;
  if (!res.journal.empty()) {
    text += "last host calls:\n";
    for (const std::string& l : res.journal) text += "  " + CleanText(l) + "\n";
  }
  std::string pattern;
  for (char c : res.name) pattern += c == '.' ? std::string("\\.") : std::string(1, c);
  text += "seed " + std::to_string(r.seed) + ": " + r.rerun +
          (res.foundByMemcheck ? " --memcheck" : "") + " --filter '^" + pattern + "$'\n";
  return text;
}

}  // namespace

Counts Count(const std::vector<Result>& results) {
  Counts c;
  for (const Result& r : results) {
    switch (r.status) {
      case Status::Passed:
        ++c.passed;
        break;
      case Status::Failed:
        ++c.failed;
        break;
      case Status::Skipped:
        ++c.skipped;
        break;
      case Status::Crashed:
        ++c.crashed;
        break;
      case Status::Hung:
        ++c.hung;
        break;
    }
  }
  return c;
}

std::string CleanText(std::string_view text, bool keepLines) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c >= 0x20 && c < 0x7F) || (keepLines && (c == '\n' || c == '\t'))) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    if (c >= 0x80) {
      if (const std::size_t n = Utf8Length(text, i)) {
        out.append(text.substr(i, n));
        i += n;
        continue;
      }
    }
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02X", c);
    out += buf;
    ++i;
  }
  return out;
}

void WriteHeading(std::ostream& out, const Report& r) {
  std::string classes;
  for (const std::string& c : r.classes) classes += (classes.empty() ? "" : ", ") + c;
  out << "hostsim check " << CleanText(r.module) << "\n  class"
      << (r.classes.size() > 1 ? "es " : " ") << CleanText(classes) << ", seed " << r.seed << "\n";
  if (!r.uncounted.empty())
    out << "  not counted on this system: " << CleanText(r.uncounted)
        << "; the checks that count are skipped\n";
  out << "\n"
      << std::left << std::setw(26) << "CHECK" << std::setw(9) << "RESULT"
      << "TIME\n";
  out.flush();
}

namespace {

bool Bad(Status s) { return s == Status::Failed || s == Status::Crashed || s == Status::Hung; }

}  // namespace

void WriteRow(std::ostream& out, const Report& r, const Check& c, const Result& res) {
  (void)c;
  std::string status = StatusName(res.status);
  if (Bad(res.status))
    for (char& ch : status) ch = static_cast<char>(ch - 'a' + 'A');
  out << std::left << std::setw(26) << res.name << std::setw(9) << status << std::right
      << std::setw(7) << Seconds(res.seconds) << " s";
  if (res.notCounted && res.status == Status::Skipped && !r.uncounted.empty())
    out << "  not counted (see the top)";
  else if (!res.reason.empty())
    out << "  " << CleanText(res.reason);
  out << "\n";
  for (const std::string& d : res.details) out << "    " << CleanText(d) << "\n";
  if (Bad(res.status)) {
    std::istringstream lines(Evidence(r, res));
    std::string line;
    while (std::getline(lines, line)) out << "    " << line << "\n";
  }
  out.flush();
}

void WriteSummary(std::ostream& out, const Report& r) {
  const Counts n = Count(r.results);
  out << "\n"
      << n.total() << (n.total() == 1 ? " check: " : " checks: ") << n.passed << " passed, "
      << n.failed << " failed, " << n.crashed << " crashed, " << n.hung << " hung, " << n.skipped
      << " skipped in " << Seconds(r.seconds) << " s (seed " << r.seed << ")\n";
  out.flush();
}

std::string JsonText(const Report& r) {
  const Counts n = Count(r.results);
  Json j;
  j["module"] = CleanText(r.module, true);
  Json classes = Json::array();
  for (const std::string& c : r.classes) classes.push_back(CleanText(c, true));
  j["classes"] = classes;
  j["seed"] = r.seed;
  j["seconds"] = r.seconds;
  j["summary"] = {{"total", n.total()},   {"passed", n.passed}, {"failed", n.failed},
                  {"crashed", n.crashed}, {"hung", n.hung},     {"skipped", n.skipped}};
  Json checks = Json::array();
  for (std::size_t i = 0; i < r.results.size(); ++i) {
    const Result& res = r.results[i];
    Json c;
    c["name"] = res.name;
    c["description"] = i < r.checks.size() ? r.checks[i]->description : "";
    c["status"] = StatusName(res.status);
    c["reason"] = CleanText(res.reason, true);
    Json journal = Json::array(), details = Json::array();
    for (const std::string& l : res.journal) journal.push_back(CleanText(l, true));
    for (const std::string& d : res.details) details.push_back(CleanText(d, true));
    c["journal"] = journal;
    c["details"] = details;
    c["seconds"] = res.seconds;
    c["not_counted"] = res.notCounted;
    checks.push_back(c);
  }
  j["checks"] = checks;
  return j.dump(2) + "\n";
}

std::string JunitText(const Report& r) {
  const Counts n = Count(r.results);
  std::string suite = r.module;
  if (const auto slash = suite.find_last_of("/\\"); slash != std::string::npos)
    suite = suite.substr(slash + 1);
  const std::string counts = " tests=\"" + std::to_string(n.total()) + "\" failures=\"" +
                             std::to_string(n.failed) + "\" errors=\"" +
                             std::to_string(n.crashed + n.hung) + "\" skipped=\"" +
                             std::to_string(n.skipped) + "\" time=\"" + Seconds(r.seconds) + "\"";
  std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  x += "<testsuites name=\"hostsim check\"" + counts + ">\n";
  x += "  <testsuite name=\"" + Xml("hostsim check " + suite, true) + "\"" + counts + ">\n";
  x += "    <properties>\n";
  x += "      <property name=\"module\" value=\"" + Xml(r.module, true) + "\"/>\n";
  std::string classes;
  for (const std::string& c : r.classes) classes += (classes.empty() ? "" : ",") + c;
  x += "      <property name=\"classes\" value=\"" + Xml(classes, true) + "\"/>\n";
  x += "      <property name=\"seed\" value=\"" + std::to_string(r.seed) + "\"/>\n";
  x += "    </properties>\n";
  for (const Result& res : r.results) {
    const std::string group = res.name.substr(0, res.name.find('.'));
    x += "    <testcase name=\"" + Xml(res.name, true) + "\" classname=\"hostsim.check." +
         Xml(group, true) + "\" time=\"" + Seconds(res.seconds) + "\"";
    std::string body;
    switch (res.status) {
      case Status::Passed:
        break;
      case Status::Skipped:
        body += "      <skipped message=\"" + Xml(res.reason, true) + "\"/>\n";
        break;
      case Status::Failed:
        body += "      <failure type=\"failed\" message=\"" + Xml(res.reason, true) + "\">" +
                Xml(Evidence(r, res)) + "</failure>\n";
        break;
      case Status::Crashed:
      case Status::Hung:
        body += std::string("      <error type=\"") + StatusName(res.status) + "\" message=\"" +
                Xml(res.reason, true) + "\">" + Xml(Evidence(r, res)) + "</error>\n";
        break;
    }
    if (!res.details.empty()) {
      body += "      <system-out>";
      for (const std::string& d : res.details) body += Xml(d) + "\n";
      body += "</system-out>\n";
    }
    x += body.empty() ? "/>\n" : ">\n" + body + "    </testcase>\n";
  }
  x += "  </testsuite>\n</testsuites>\n";
  return x;
}

bool ReadResults(const std::string& text, std::vector<Result>& out) {
  const Json j = Json::parse(text, nullptr, false);
  if (j.is_discarded() || !j.is_object() || !j.contains("checks") || !j["checks"].is_array())
    return false;
  for (const Json& c : j["checks"]) {
    if (!c.is_object()) return false;
    Result r;
    r.name = c.value("name", "");
    const std::string status = c.value("status", "");
    if (status == "passed")
      r.status = Status::Passed;
    else if (status == "failed")
      r.status = Status::Failed;
    else if (status == "skipped")
      r.status = Status::Skipped;
    else if (status == "crashed")
      r.status = Status::Crashed;
    else if (status == "hung")
      r.status = Status::Hung;
    else
      return false;
    r.reason = c.value("reason", "");
    r.seconds = c.value("seconds", 0.0);
    r.notCounted = c.value("not_counted", false);
    if (c.contains("journal") && c["journal"].is_array())
      for (const Json& l : c["journal"])
        if (l.is_string()) r.journal.push_back(l.get<std::string>());
    if (c.contains("details") && c["details"].is_array())
      for (const Json& d : c["details"])
        if (d.is_string()) r.details.push_back(d.get<std::string>());
    out.push_back(std::move(r));
  }
  return true;
}

}  // namespace hostsim::check
