#pragma once
// The worker of an operation run: the whole run happens in its
// initialisation routine, on a thread of its own that the progress dialog
// starts and may suspend at any time (pause).
#include <windows.h>

#include <cstdint>
#include <string>

#include "framework/thread.h"

class CTzVarenDB;

namespace oper {

class ReplacePrompt;

class COperThread : public fw::Thread {
public:
    COperThread() = default;

    // Asks about a failure (preset, Skip All or the user) and keeps the
    // answer as the latest choice, which every later test reads. A failure
    // that may not be repeated is never answered with Retry.
    uint32_t AskErrorChoiceAndKeep(uint32_t code, bool repeatable = true);
    uint32_t LastErrorChoice() const { return m_lastErrorChoice; }

    // A preset Retry is answered a bounded number of times per step, so a
    // run with nobody to ask ends: each retry loop starts a step, and
    // TakePresetRetry is false once the step has used up its retries.
    void BeginStep() { m_presetRetries = 0; }
    bool TakePresetRetry() { return ++m_presetRetries <= kPresetRetryLimit; }

    // Something inside the current top-level item was left undone, so a move
    // must keep the item's source (it may hold the only copy), and the item
    // is not recorded as converted.
    void NoteItemIncomplete() { m_itemIncomplete = true; }
    // A confirmed cancel stopped the current top-level item part-way: it is
    // neither recorded nor moved.
    void NoteItemCancelled() { m_itemCancelled = true; }

    static constexpr uint32_t kPresetRetryLimit = 3;

protected:
    // Runs the whole request; always FALSE, so the thread ends afterwards.
    BOOL InitInstance() override;

private:
    enum class ItemStep { kProcess, kSkip, kEndRun };

    ItemStep CheckItem(const wchar_t* item, const std::wstring& destination, ReplacePrompt& replace,
                       bool* isFolder);
    ItemStep ConfirmReplace(const wchar_t* item, ReplacePrompt& replace, bool* isFolder);
    uint32_t ProcessItem(const wchar_t* item, bool isFolder, CTzVarenDB& records);
    void FinishRun(uint32_t lastResult);

    uint32_t m_replaceAll = 0;
    uint32_t m_lastErrorChoice = 0;
    uint32_t m_presetRetries = 0;
    bool m_itemIncomplete = false;
    bool m_itemCancelled = false;
};

}  // namespace oper
