#include "installer/extraction.h"

#include "base/caption.h"
#include "base/member_files.h"
#include "base/process_state.h"
#include "extract/extract.h"
#include "installer/read_errors.h"
#include "ui/progress_window.h"

// One failure, one box: damage says to download again; a member that cannot
// be created or written says so of the work folder, a full disk among them.
ExitStatus ExtractIntoWorkFolder(const char* workFolder)
{
    SetProgressStep(1);
    const unsigned char* archive = (const unsigned char*)payloadHeader + payloadHeader->archiveOffset;
    // Held from its writing until it has started: see RunInnerInstaller.
    HoldMemberAfterWriting("DEZAZAZE.exe");
    int result = ExtractArchive(workFolder, archive, (uint32_t)payloadHeader->archiveSize, &windowsMemberSink);
    if (result == kExtractDataError) {
        ShowWarning(progressWindow, "解凍でｴﾗｰが起きました｡ ｲﾝｽﾄｰﾙﾌﾟﾛｸﾞﾗﾑのﾌｧｲﾙが壊れている可能性があります。"
                                    "ﾀﾞｳﾝﾛｰﾄﾞし直してください｡");
        return EXIT_DAMAGED_INSTALLER;
    }
    if (result < 0) {
        MemberFileFailure failure = LastMemberFileFailure();
        if (failure == MEMBER_SOURCE_UNREADABLE) {
            ShowReadError();
            return EXIT_DAMAGED_INSTALLER;
        }
        ShowWarningAbout(progressWindow,
                         failure == MEMBER_FILE_NOT_WRITTEN ? "%s にファイルを書き込めません｡ ﾃﾞｨｽｸの空き容量を確認してください｡"
                                                            : "%s にファイルを作成できません｡",
                         workFolder);
        return EXIT_WRITE_FAILED;
    }
    if (result != payloadHeader->memberCount) {
        ShowWarning(progressWindow, "ﾌｧｲﾙの数が異常です｡ ｲﾝｽﾄｰﾙﾌﾟﾛｸﾞﾗﾑのﾌｧｲﾙが壊れている可能性があります｡ "
                                    "ﾀﾞｳﾝﾛｰﾄﾞし直してください｡");
        return EXIT_DAMAGED_INSTALLER;
    }
    return EXIT_INSTALLED;
}
