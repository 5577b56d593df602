// libxml2's xmllint as a second, strict reader of the files the program
// writes (the package libxml2-utils).
#pragma once

#include <stdio.h>
#include <sys/wait.h>

#include <string>

// What xmllint says against the file; empty when it is well-formed XML 1.0.
inline std::string XmllintComplaints(const std::string& path) {
  FILE* pipe = ::popen(("xmllint --noout '" + path + "' 2>&1").c_str(), "r");
  if (!pipe) return "xmllint could not be started";
  std::string output;
  char buffer[512];
  while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, got);
  const int status = ::pclose(pipe);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  return output.empty() ? "xmllint failed: " + std::to_string(status) : output;
}
