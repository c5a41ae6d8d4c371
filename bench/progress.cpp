#include "progress.h"

#include "now_ms.h"

#include <windows.h>

#include <cstdarg>

Progress::Progress(FILE* out, const char* name) : m_out(out), m_name(name), m_startMs(NowMs()) {}

double Progress::Elapsed() const { return (NowMs() - m_startMs) / 1000.0; }

void Progress::Phase(const char* name, int index, int count)
{
    m_phase = name;
    std::fprintf(m_out, "[%s %6.1f s] phase %d/%d: %s\n", m_name, Elapsed(), index, count, name);
    std::fflush(m_out);
}

void Progress::Note(const char* format, ...)
{
    std::fprintf(m_out, "[%s %6.1f s]   ", m_name, Elapsed());
    va_list args;
    va_start(args, format);
    std::vfprintf(m_out, format, args);
    va_end(args);
    std::fputc('\n', m_out);
    std::fflush(m_out);
}

void Progress::Count(const char* what, int done, int total) { Note("%s: %d/%d", what, done, total); }
