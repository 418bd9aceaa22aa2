// The wizard's one window. It owns every piece of state of one run: its
// controls, the link library and its entries, the selected model, the
// versions, the route and stage, and the firmware file's path and size.
// Every operation of the wizard, the package, the link and the protocol is a
// member operation reading and writing these members.
#pragma once

#include <cstdint>

#include "link/zepl_entries.h"
#include "platform/afx.h"
#include "platform/interval_clock.h"
#include "protocol/transfer_progress.h"
#include "record/update_record.h"
#include "res/resource.h"
#include "wizard/window_icons.h"

class TransferChannels;
class TransferHold;
struct VersionVerdict;

// A send or reply channel: a link library handle or, on the spooler route, a
// printer handle. Wide enough for either on every build.
typedef INT_PTR PlotterChannel;
// A channel that was not opened.
const PlotterChannel kNoChannel = -1;

// What the spooler tells of the print job that carried the firmware.
enum class PrintJobFate {
    Unknown,    // the spooler could not be asked: no verdict
    Delivered,  // it left the queue, or shows printed or complete
    Pending,    // still queued, paused, spooling or printing
    Failed,     // an error, offline, out of paper, blocked, waiting for the user, or deleted unprinted
};

// Where the wizard stands. The handlers consult it, not the buttons: Enter,
// Esc, the window's Close command and posted commands reach the dialog
// whatever the buttons show.
enum class WizardState {
    Checking,   // a check is due or running
    Blocked,    // a check failed, refused the update or found it not needed
    Ready,      // the first check passed: "Next >" is enabled
    Confirmed,  // the second check passed: "Update" is enabled
    Updating,   // the firmware transfer runs
    Finished,   // the transfer ended with success
    Failed,     // the transfer, or loading the library for it, failed
};

class CFirmwareUpdateDlg : public CDialog {
public:
    enum { IDD = IDD_UPDATE };

    explicit CFirmwareUpdateDlg(CWnd* parent = nullptr);
    ~CFirmwareUpdateDlg() override;

    // Controls, bound by DoDataExchange.
    CStatic m_stcModelName;
    CButton m_btnCheck;
    CStatic m_stcCurrentCaption;
    CStatic m_stcCurrentVersion;
    CStatic m_stcNewCaption;
    CStatic m_stcNewVersion;
    CStatic m_stcMessage;
    CStatic m_stcPercent;
    CProgressCtrl m_prgProgress;
    CButton m_btnStart;
    CButton m_btnClose;

    // State. Versions are the version times 100; 0 means none.
    HICON m_hIcon;
    HMODULE m_hLinkLib;
    PFN_ZEPL_InitDll m_pfnInitDll;
    PFN_ZEPL_EntryUsbCheck m_pfnEntryUsbCheck;
    PFN_ZEPL_OpenUsbEx m_pfnOpenUsbEx;
    PFN_ZEPL_Write m_pfnWrite;
    PFN_ZEPL_Read m_pfnRead;
    PFN_ZEPL_Close m_pfnClose;
    CString m_strVendor;
    CString m_strModel;
    CString m_strPort;
    CString m_strDriver;
    CString m_strPrinter;
    CString m_strFirmwarePath;
    int m_nFirmwareSize;
    int m_nCurrentVersion;
    int m_nNewVersion;
    int m_nSpoolerLimit;
    int m_nProcedure;
    int m_nStage;
    BOOL m_bDirectUsb;
    BOOL m_bStatusReplies;
    WizardState m_state;
    BOOL m_bTaskbarButton;  // the taskbar button exists, so it can show progress
    UpdateRecord m_record;  // what this run did, for the support desk

    // Message catalogue: result boxes and guidance texts.
    BOOL ShowResultBox(int code);
    void ShowGuidance(UINT id);

    // Firmware package: the one firmware file beside the program.
    int LocateFirmwarePackage();
    int FindFirmwareFile(CString pattern);

    // Link library binding.
    int LoadLinkLibrary();
    int FreeLinkLibrary();
    // No library and none of its entries.
    void ForgetLinkLibrary();

    // Spooler printer lookup. GetPrinterInfo2's block is freed with free().
    int FindSpoolerPrinter();
    static PRINTER_INFO_2A* GetPrinterInfo2(const char* printerName);

    // Send and reply channels. On the spooler route printJob receives the
    // print job's id; it is 0 when no job was started.
    PlotterChannel OpenSendChannel(DWORD* printJob = nullptr);
    int WriteSendChannel(PlotterChannel channel, const void* bytes, DWORD count, DWORD* written);
    // FALSE when the spooler did not take the print job: its bytes are lost.
    BOOL CloseSendChannel(PlotterChannel channel);
    PlotterChannel OpenReplyChannel();
    void CloseReplyChannel(PlotterChannel channel);
    // Asks the spooler about a job on m_strPrinter, through a handle of its own.
    PrintJobFate AskPrintJob(DWORD printJob);

    // Plotter query protocol.
    int QueryPlotter(int mode);
    int PollUpdateStatus(PlotterChannel sendChannel, PlotterChannel replyChannel, int prepare);

    // Check step: the handler of the hidden Check button.
    void OnCheck();

    // Firmware transfer. TransferFirmware returns an UpdateResult.
    int TransferFirmware();
    void SetClosable(int enable);
    void PumpMessages();

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    // The Start button: never closes the dialog.
    void OnOK() override;
    // Closing: refused while the firmware is being written.
    void OnCancel() override;

    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnDestroy();
    LRESULT OnQueryEndSession(WPARAM, LPARAM);
    LRESULT OnTaskbarButtonCreated(WPARAM, LPARAM);
    // Moved to a screen of another scaling, or its scaling changed.
    LRESULT OnDpiChanged(WPARAM, LPARAM);

    DECLARE_MESSAGE_MAP()

private:
    // Opening: the steps of OnInitDialog in their order.
    void MakeTopmostAtMainWindow();
    void ShowOpeningTexts();

    // Check step.
    void SetModelLine(const CString& model);
    // Ends a check that cannot go on: the box for code, then the guidance.
    void Block(int code, UINT guidance);

    // Firmware transfer.
    struct SendReport {
        uint64_t sent = 0;          // bytes the plotter took
        bool stoppedEarly = false;  // a refused chunk, a failed read, or nothing sent
        bool writeFailed = false;   // a write reported failure, even one that took every byte
        int lastWriteResult = 0;
        // For the record, counted as the chunks go and written out after.
        uint32_t chunks = 0;         // chunks read from the file and offered
        uint32_t writes = 0;         // writes made; a chunk taken in part is offered again
        bool readFailed = false;     // reading the file failed
        uint32_t failedChunk = 0;    // the chunk of the first write that failed or took nothing; 0: none
        int failedResult = 0;        // that write's result,
        DWORD failedOffered = 0;     // the bytes it offered
        DWORD failedTaken = 0;       // and the bytes it reported taken
        void CountWrite(int result, DWORD offered, DWORD taken) {
            ++writes;
            if ((result != 0 || taken == 0) && failedChunk == 0) {
                failedChunk = chunks;
                failedResult = result;
                failedOffered = offered;
                failedTaken = taken;
            }
        }
    };
    // Draws attention to the ended update when the user is elsewhere.
    void FlashIfInBackground();
    void ShowTransferStarted();
    // Whether the percentage on screen changed.
    bool ShowProgress(unsigned percent);
    SendReport SendFirmware(CFile& file, PlotterChannel channel, const protocol::TransferProgress& progress);
    bool SendChunk(PlotterChannel channel, const char* bytes, DWORD count, SendReport* report);
    int PollUntilDone(const TransferChannels& channels, uint64_t sent, const protocol::TransferProgress& progress);
    // Returns an UpdateResult: the wait's verdict on the print job, if any.
    int WaitForCompletion(uint64_t sent, const protocol::TransferProgress& progress, DWORD printJob);

    // The record of the run (record/dialog_notes.cpp): what the members say
    // at each step, in the record's words.
    void RecordFirmware(int found);
    void RecordDecision(const VersionVerdict& verdict);
    void RecordPrinterLookup(int found);
    void RecordRoute();
    void RecordFirmwareOpened(BOOL opened, const CFile& file);
    void RecordSendingStarts();
    void RecordSending(const SendReport& report);
    void RecordPolls(int result);
    void RecordChannelsClosed(bool handedOn);
    void RecordCompletionWait(int rounds, DWORD milliseconds);

    WindowIcons m_icons{IDI_APP};     // the caption's and taskbar's, for the window's DPI
    TransferHold* m_pHold = nullptr;  // while the firmware is being written
    int m_nShownPercent = -1;         // the percentage on screen; -1 before the first
    IntervalClock m_pumpClock{protocol::kPumpIntervalMilliseconds};  // since the queue was last drained
};
