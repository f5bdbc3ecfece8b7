// The post-extraction command: the caption of the main dialog's run check box, and
// starting the configured command once an extraction is complete.
//
// The command comes from the configuration header (commandText, at most 255
// characters): "program|parameters", where the first "|" splits and further "|"
// belong to the parameters, and every "><" in either part stands for the
// destination with its trailing backslash. A program part naming an .INF file is
// installed through the platform's setup library; anything else is opened
// through the shell. Nothing here reports an error.
//
// Keeps no state. Writes extractDir only to give it its trailing backslash.
// Called by the main dialog: BuildRunCaption while it initialises,
// RunAfterExtraction after a complete extraction.
#include "actions/command.h"

#include "app/SFXgbls.h"
#include "app/SFXstrings.h"
#include "archive/SFXmisc.h"

// The setup program's folder with its quotes, the longest setup prefix, the
// section suffix and the mode around a program part.
#define INSTALL_LINE_SIZE (COMMAND_PART_SIZE + TEXT_BUFFER_SIZE + 96)

// GetVersionExA wants the size of the ANSI record, which the platform checks.
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA layout");

// Copies `length` characters of `text` into `out`, each "><" among them replaced
// by `replacement`. The inserted text is copied, never scanned again, so a
// replacement holding "><" is inserted once per token of the input. A command
// full of tokens grows far beyond any path: the result is cut at outSize - 1.
static void ReplaceTokens(const char *text, int length, const char *replacement, char *out,
                          int outSize) {
    int n = 0;
    for (int i = 0; i < length; i++) {
        if (text[i] == DIR_TOKEN[0] && i + 1 < length && text[i + 1] == DIR_TOKEN[1]) {
            for (const char *r = replacement; *r && n < outSize - 1; r++) out[n++] = *r;
            i++;
        } else if (n < outSize - 1) {
            out[n++] = text[i];
        }
    }
    out[n] = 0;
}

void ReplaceDirToken(const char *text, const char *replacement, char *out, int outSize) {
    ReplaceTokens(text, TextLength(text), replacement, out, outSize);
}

void GetCommandPart(CommandPart which, char *out, int outSize) {
    // The token means "the destination directory with its backslash".
    AppendBackslash(extractDir);
    const char *text = commandText;
    int length = TextLength(text);
    int split = FindFirstChar(text, PART_SEPARATOR);
    int start = 0;
    if (which == COMMAND_PROGRAM) {
        if (split >= 0) length = split;
    } else {
        start = split < 0 ? length : split + 1;
        length -= start;
    }
    ReplaceTokens(text + start, length, extractDir, out, outSize);
    // The short form has no spaces, so a program path survives the shell's
    // command line unquoted. In place, with the part's own length as the room:
    // the call succeeds only for the exact name of an existing file or folder
    // whose short form is shorter; otherwise it writes nothing and the part
    // keeps its long form (a part with arguments is never an existing name).
    GetShortPathNameA(out, out, (DWORD)TextLength(out));
}

bool IsInfFile(const char *name) {
    int n = TextLength(name);
    // Only letters are folded, so the dot compares as itself.
    return n >= 4 && TextEqual(name + n - 4, STR_INF_SUFFIX, true);
}

void BuildRunCaption(char *out, int outSize) {
    char part[COMMAND_PART_SIZE];
    char name[256];
    char caption[RUN_CAPTION_SIZE];
    char *const last = caption + RUN_CAPTION_SIZE - 1;
    char *end = StringFromBuffer(caption, STR_RUN_CAPTION, (int)(last - caption));
    GetCommandPart(COMMAND_PROGRAM, part, COMMAND_PART_SIZE);
    FileNamePart(part, name);
    end = StringFromBuffer(end, name, (int)(last - end));
    const char *action = IsInfFile(name) ? STR_ACTION_INSTALL : STR_ACTION_RUN;
    // One space even without parameters: the caption always has this shape.
    end = StringFromBuffer(end, " ", (int)(last - end));
    GetCommandPart(COMMAND_PARAMETERS, part, COMMAND_PART_SIZE);
    FileNamePart(part, name);
    StringFromBuffer(end, name, (int)(last - end));
    ReplaceDirToken(caption, action, out, outSize);
}

// On the two platforms with a setup library the setup program is named by its
// full path in the system folder (NT) or the Windows folder (9x), quoted when
// that path holds a space; the rest of its prefix follows as it is. By bare
// name, WinExec would take a program of that name from the self-extractor's
// own folder or the current directory first. When the folder is not known,
// nothing is started.
void InstallInf(const char *program, const char *parameters) {
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) return;
    char line[INSTALL_LINE_SIZE];
    char *const last = line + INSTALL_LINE_SIZE - 1;
    char *start = line;
    char *end = line;
    DWORD platform = version.dwPlatformId;
    if (platform == VER_PLATFORM_WIN32_WINDOWS || platform == VER_PLATFORM_WIN32_NT) {
        bool nt = platform == VER_PLATFORM_WIN32_NT;
        // The folder goes one byte in, leaving room for an opening quote.
        char *folder = line + 1;
        UINT n = nt ? GetSystemDirectoryA(folder, MAX_PATH) : GetWindowsDirectoryA(folder, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return;
        AppendBackslash(folder);
        const char *prefix = nt ? STR_INF_PLATFORM2 : STR_INF_PLATFORM1;
        int nameLength = FindFirstChar(prefix, ' ');
        end = StringFromBuffer(folder + TextLength(folder), prefix, nameLength);
        if (FindFirstChar(folder, ' ') >= 0) {
            *start = '"';
            *end++ = '"';
        } else {
            start = folder;
        }
        end = StringFromBuffer(end, prefix + nameLength, (int)(last - end));
        if (nt) {
            // The NT section of a driver INF is named by the parameter ".ntx86",
            // exactly so spelled; any other parameter installs the plain section.
            if (TextEqual(parameters, STR_INF_NT_SUFFIX, false))
                end = StringFromBuffer(end, STR_INF_NT_SUFFIX, (int)(last - end));
            end = StringFromBuffer(end, STR_INF_MODE, (int)(last - end));
        }
    }
    // Any other platform has no setup library: the INF is handed over alone.
    StringFromBuffer(end, program, (int)(last - end));
    WinExec(start, SW_SHOW);
}

void RunAfterExtraction(LRESULT checkState) {
    if (checkState != BST_CHECKED || !hasCommand) return;
    char program[COMMAND_PART_SIZE];
    char parameters[COMMAND_PART_SIZE];
    char saved[TEXT_BUFFER_SIZE];
    GetCommandPart(COMMAND_PROGRAM, program, COMMAND_PART_SIZE);
    GetCommandPart(COMMAND_PARAMETERS, parameters, COMMAND_PART_SIZE);
    // A failed query leaves the buffer as it was: restoring "" then fails harmlessly.
    saved[0] = 0;
    GetCurrentDirectoryA(MAX_PATH, saved);
    // The started program inherits the configured default directory, not the
    // destination the user may have chosen (the shell gets that one explicitly).
    if (defaultDirText[0]) SetCurrentDirectoryA(defaultDirText);
    // Four characters or fewer cannot name anything worth starting.
    if (TextLength(program) > 4) {
        if (IsInfFile(program))
            InstallInf(program, parameters);
        else
            ShellExecuteA(0, STR_VERB_OPEN, program, parameters, extractDir, SW_SHOW);
    }
    SetCurrentDirectoryA(saved);
}
