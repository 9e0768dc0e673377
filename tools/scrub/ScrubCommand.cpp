#include <cstdlib>
#include <iostream>
#include <stdexcept>

#include <CLI/CLI.hpp>

#include "PoolScrub/Scrub.h"
#include "console/ExitCodes.h"

namespace PoolScrub {

namespace {

const char* const kFooter =
    "The record of what was verified is kept in [node] StateFolder of the node configuration\n"
    "(default /var/lib/vault): scrub.record, scrub.journal, scrub.lock.\n"
    "Exit codes: 0 every pool verified was sound; 1 a verify failed for another reason;\n"
    "2 bad command line; 3 another scrub is running on this node; 4 the record could not be\n"
    "written (the previous one is kept); 5 damage was found and handed to the error handler;\n"
    "8 the catalogue could not be read; 130 interrupted (what was verified is kept).";

std::string durationCheck(std::string& text) {
    try {
        parseDuration(text);
        return std::string();
    } catch (const std::invalid_argument& error) {
        return error.what();
    }
}

}  // namespace

ScrubCommand::ScrubCommand(CLI::App& app) {
    command_ = app.add_subcommand(
        "scrub", "verify every pool of this node's tasks, changed and never-verified ones first, within a time budget");
    command_->footer(kFooter);
    command_->add_option("--config", config_, "node configuration (default: $VAULT_NODE_CONFIG)");
    command_->add_option("--log-folder", settings_.logFolder,
                         "folder of the logs and the status file (default: [node] LogFolder)");
    command_->add_option("--tag", settings_.globalTag, "the session's global tag");
    command_->add_flag("-v,--verbose", settings_.verbose, "also show the vault log's lines");
    const CLI::Validator duration(durationCheck, "DURATION");
    command_->add_option("--max-age", maxAge_, "leave out pools verified less than this long ago (90s, 15m, 12h, 7d)")
        ->check(duration);
    command_->add_option("--max-duration", maxDuration_,
                         "stop after the pool in progress once this much time is spent; the next run goes on")
        ->check(duration);
    command_->add_option("--rate", settings_.rateMiBPerSecond, "cap the average read rate, in MiB/s")
        ->check(CLI::PositiveNumber);
    command_->add_flag("--idle", settings_.idle, "read in the idle I/O scheduling class");
    command_->add_flag("--no-progress", noProgress_, "no progress line on the terminal");
    command_->add_flag("--json", settings_.json, "print the summary as JSON (and nothing else on standard output)");
}

bool ScrubCommand::chosen() const { return command_->parsed(); }

int ScrubCommand::run() {
    try {
        if (!config_.empty() && ::setenv("VAULT_NODE_CONFIG", config_.c_str(), 1) != 0)
            throw std::runtime_error("cannot set VAULT_NODE_CONFIG");
        settings_.maxAgeSeconds = maxAge_.empty() ? -1 : parseDuration(maxAge_);
        settings_.maxDurationSeconds = maxDuration_.empty() ? -1 : parseDuration(maxDuration_);
        settings_.progress = !noProgress_;
        return runScrub(settings_, std::cout, std::cerr);
    } catch (const std::exception& error) {
        std::cerr << "poolcommand scrub: " << error.what() << "\n";
        return VaultConsole::kExitFailed;
    }
}

}  // namespace PoolScrub
