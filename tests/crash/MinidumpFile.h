#pragma once
// What a test needs to know of a minidump file, read from its bytes with the format's own structures,
// every offset checked against the file's size.

#include <windows.h>
#include <dbghelp.h>

#include <stddef.h>
#include <string.h>
#include <string>

struct MinidumpFile {
    bool valid = false;        // "MDMP" and a stream directory inside the file
    bool threadListed = false; // the exception's thread is in the thread list
    unsigned threads = 0;      // entries of the thread list stream
    unsigned modules = 0;      // entries of the module list stream
    DWORD exceptionThread = 0; // from the exception stream
    DWORD exceptionCode = 0;
    unsigned long long pc = 0; // program counter of the exception's thread context
    bool hasContext = false;

    explicit MinidumpFile(const std::string& bytes) {
        MINIDUMP_HEADER header;
        if (!Copy(bytes, 0, &header, sizeof(header)) || memcmp(&header.Signature, "MDMP", 4) != 0)
            return;
        valid = true;
        for (ULONG32 i = 0; i < header.NumberOfStreams; i++) {
            MINIDUMP_DIRECTORY entry;
            if (!Copy(bytes, header.StreamDirectoryRva + i * sizeof(entry), &entry, sizeof(entry))) {
                valid = false;
                return;
            }
            ULONG32 rva = entry.Location.Rva;
            if (entry.StreamType == ThreadListStream) {
                Copy(bytes, rva, &threads, sizeof(threads));
            } else if (entry.StreamType == ModuleListStream) {
                Copy(bytes, rva, &modules, sizeof(modules));
            } else if (entry.StreamType == ExceptionStream) {
                MINIDUMP_EXCEPTION_STREAM stream;
                if (!Copy(bytes, rva, &stream, sizeof(stream)))
                    continue;
                exceptionThread = stream.ThreadId;
                exceptionCode = stream.ExceptionRecord.ExceptionCode;
                CONTEXT context;
                if (stream.ThreadContext.DataSize >= sizeof(context) &&
                    Copy(bytes, stream.ThreadContext.Rva, &context, sizeof(context))) {
                    hasContext = true;
#ifdef _WIN64
                    pc = context.Rip;
#else
                    pc = context.Eip;
#endif
                }
            }
        }
        // The thread list once the exception's thread is known.
        for (ULONG32 i = 0; i < header.NumberOfStreams; i++) {
            MINIDUMP_DIRECTORY entry;
            Copy(bytes, header.StreamDirectoryRva + i * sizeof(entry), &entry, sizeof(entry));
            if (entry.StreamType != ThreadListStream)
                continue;
            for (unsigned t = 0; t < threads; t++) {
                MINIDUMP_THREAD thread;
                if (Copy(bytes, entry.Location.Rva + sizeof(ULONG32) + t * sizeof(thread), &thread, sizeof(thread)) &&
                    thread.ThreadId == exceptionThread)
                    threadListed = true;
            }
        }
    }

private:
    static bool Copy(const std::string& bytes, size_t offset, void* target, size_t size) {
        if (offset > bytes.size() || size > bytes.size() - offset)
            return false;
        memcpy(target, bytes.data() + offset, size);
        return true;
    }
};
