// The node's job queue: maintenance jobs handed to the vault's job runner.
//
// The spool folder is [node] SpoolFolder of the node configuration (default
// /var/spool/vault). Each job is one file "<spool>/job-<NNNNNNNNNN>.job"
// (the sequence number in ten decimal digits) of KEY=VALUE lines, written to
// a temporary name, flushed and renamed into place, so a job file is complete
// or absent. Sequence numbers come from "<spool>/sequence", read and advanced
// under an advisory lock on "<spool>/.lock": two processes submitting at once
// get distinct numbers, and a number is never handed out twice, even after a
// crash (a crash may leave a gap). Format and keys: docs/job-queue.md.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SharedApi.h"

// Priorities of sys_submit: 1 (normal) to 9 (most urgent).
#define SUBMIT_PRIORITY_NORMAL 1
#define SUBMIT_PRIORITY_HIGHEST 9

// Queues the job `commandText` (the command line the job runner will run).
//   queue       reserved for named queues; pass null (the node's one queue)
//   priority    SUBMIT_PRIORITY_NORMAL to SUBMIT_PRIORITY_HIGHEST
//   options     reserved; pass 0
//   user        who asked for it; null means the user running the process
//   comment     free text shown in listings; null for none
// Returns the job's sequence number (above 0). When the job cannot be queued
// (empty or over-long command, a line break in a text, a bad priority or
// option, a spool folder that cannot be created, locked or written) returns 0
// and writes one error line (4099) that says why and names the file. Never
// throws.
SHARED_API long sys_submit(const char* queue, const char* commandText, int priority, int options, const char* user,
                           const char* comment);

namespace JobQueue {

struct Job {
    uint64_t sequence = 0;
    std::string command;
    int priority = SUBMIT_PRIORITY_NORMAL;
    std::string user;
    std::string comment;
    std::string submitted;  // "YYYY-MM-DD HH:MM:SS", local time
    std::string host;
    long processId = 0;
    std::string path;       // the job file
};

// The spool folder, ending in '/'.
SHARED_API std::string spoolFolder();

// Reads one job file. Throws a std::runtime_error naming the path when it is
// missing, a link or not a regular file, larger than 64 KiB or damaged.
SHARED_API Job readJob(const std::string& path);

// Every queued job in sequence order. Job files that cannot be read are not
// listed; their errors (each naming its file) go to `problems` when given.
// Temporary files of unfinished submissions are never listed. A missing
// spool folder is an empty queue.
SHARED_API std::vector<Job> listJobs(std::vector<std::string>* problems = nullptr);

}  // namespace JobQueue
