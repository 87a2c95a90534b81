// The subcommands of tessaline. Each adds itself to the program's command line and, when
// chosen, runs through the callback it set; failures are Failures (failure.h: exit status 1) or
// CLI::ParseErrors (usage, exit status 2), caught in main.
#pragma once

#include <cstdint>
#include <string>

#include <CLI/CLI.hpp>

#include "djv_document.h"

namespace Tessaline {

void addInfoCommand(CLI::App& app);
void addDumpCommand(CLI::App& app);
void addRenderCommand(CLI::App& app);
void addThumbnailCommand(CLI::App& app);
void addTextCommand(CLI::App& app);
void addAnnotationsCommand(CLI::App& app);
void addOutlineCommand(CLI::App& app);

// A page together with the document that owns it.
struct OpenedPage {
    Vantorix::AutoPtr<Vantorix::DjVu::Document> document;
    Vantorix::AutoPtr<Vantorix::DjVu::Page> page;
};

// Opens a file (path or file: location). Throws a Failure naming the file.
Vantorix::AutoPtr<Vantorix::DjVu::Document> openDocument(const std::string& file);
// Opens a file and takes its page `number`, counted from 1. Throws a Failure naming the file,
// also when there is no such page; the page's own data is read only when it is used.
OpenedPage openPage(const std::string& file, uint32_t number);

// Thrown by a command that has reported its failures itself: main ends with this status.
struct ExitStatus {
    int code = 1;
};

} // namespace Tessaline
