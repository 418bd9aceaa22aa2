// The spooler lookup and the spooler route on a real print spooler: printers
// registered for the test on file ports, a RAW job that must arrive in its
// port's file byte for byte. Also how replies are read under a locale whose
// decimal separator is a comma.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

#include "protocol/reply.h"
#include "wizard/firmware_update_dlg.h"

namespace {
const char kPortsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

std::string Unique(const std::string& base) { return base + " " + std::to_string(GetCurrentProcessId()); }

std::string ReadWholeFile(const std::string& path) {
    std::string bytes;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) bytes.append(buf, n);
    CloseHandle(h);
    return bytes;
}

// Printer drivers, file ports and printers made for one test and removed
// with it.
class Printers {
public:
    Printers() {
        char tmp[MAX_PATH] = {0};
        GetTempPathA(MAX_PATH, tmp);
        m_folder = std::string(tmp) + "updater-spooler-" + std::to_string(GetCurrentProcessId()) + "-" +
                   std::to_string(++s_count) + "\\";
        CreateDirectoryA(m_folder.c_str(), nullptr);
    }
    ~Printers() {
        for (const std::string& name : m_printers) {
            PRINTER_DEFAULTSA all = {nullptr, nullptr, PRINTER_ALL_ACCESS};
            HANDLE h = nullptr;
            if (OpenPrinterA(const_cast<char*>(name.c_str()), &h, &all)) {
                DeletePrinter(h);
                ClosePrinter(h);
            }
        }
        for (const std::string& driver : m_drivers)
            DeletePrinterDriverA(nullptr, nullptr, const_cast<char*>(driver.c_str()));
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPortsKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            for (const std::string& port : m_ports) RegDeleteValueA(key, port.c_str());
            RegCloseKey(key);
        }
        for (const std::string& port : m_ports) DeleteFileA(port.c_str());
        RemoveDirectoryA(m_folder.c_str());
    }
    Printers(const Printers&) = delete;
    Printers& operator=(const Printers&) = delete;

    // A port that is a file in the test's folder.
    std::string Port(const std::string& file) {
        const std::string port = m_folder + file;
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kPortsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key, port.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1), ERROR_SUCCESS);
        RegCloseKey(key);
        m_ports.push_back(port);
        return port;
    }

    void Driver(const std::string& name) {
        DRIVER_INFO_3A info = {};
        info.cVersion = 3;
        info.pName = const_cast<char*>(name.c_str());
        info.pDriverPath = const_cast<char*>("wineps.drv");
        info.pDataFile = const_cast<char*>("generic.ppd");
        info.pConfigFile = const_cast<char*>("wineps.drv");
        EXPECT_TRUE(AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&info))) << name << " " << GetLastError();
        m_drivers.push_back(name);
    }

    void Printer(const std::string& name, const std::string& port, const std::string& driver) {
        PRINTER_INFO_2A info = {};
        info.pPrinterName = const_cast<char*>(name.c_str());
        info.pPortName = const_cast<char*>(port.c_str());
        info.pDriverName = const_cast<char*>(driver.c_str());
        info.pPrintProcessor = const_cast<char*>("WinPrint");
        info.pDatatype = const_cast<char*>("RAW");
        HANDLE h = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
        EXPECT_NE(h, nullptr) << name << " " << GetLastError();
        if (h) ClosePrinter(h);
        m_printers.push_back(name);
    }

private:
    static int s_count;
    std::string m_folder;
    std::vector<std::string> m_ports;
    std::vector<std::string> m_drivers;
    std::vector<std::string> m_printers;
};
int Printers::s_count = 0;

// The printers the spooler lists, in its order, as level 2 gives them.
std::vector<PRINTER_INFO_2A> Listed(std::vector<BYTE>* storage) {
    DWORD needed = 0, returned = 0;
    EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned);
    storage->assign(needed + 1, 0);
    EXPECT_TRUE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, storage->data(), needed, &needed, &returned));
    const PRINTER_INFO_2A* p = reinterpret_cast<const PRINTER_INFO_2A*>(storage->data());
    return std::vector<PRINTER_INFO_2A>(p, p + returned);
}

int IndexOf(const std::vector<PRINTER_INFO_2A>& listed, const std::string& name) {
    for (size_t i = 0; i < listed.size(); ++i)
        if (name == listed[i].pPrinterName) return static_cast<int>(i);
    return -1;
}
}  // namespace

TEST(SpoolerWinTest, LookupFindsTheFirstPrinterOnThePortWithTheDriver) {
    Printers printers;
    const std::string model = Unique("Tarvonic Test KM500");
    const std::string other = Unique("Tarvonic Test KM300");
    printers.Driver(model);
    printers.Driver(other);
    const std::string port = printers.Port("plotter.bin");
    const std::string elsewhere = printers.Port("elsewhere.bin");
    const std::string otherDriver = Unique("UpdTest A other driver");
    const std::string first = Unique("UpdTest B first");
    const std::string second = Unique("UpdTest C second");
    const std::string otherPort = Unique("UpdTest 0 other port");
    printers.Printer(otherPort, elsewhere, model);
    printers.Printer(otherDriver, port, other);
    printers.Printer(first, port, model);
    printers.Printer(second, port, model);

    // The spooler's own order decides which comes first.
    std::vector<BYTE> storage;
    const auto listed = Listed(&storage);
    const int a = IndexOf(listed, otherDriver), b = IndexOf(listed, first), c = IndexOf(listed, second);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    ASSERT_GE(c, 0);
    ASSERT_LT(a, b) << "the printer with the other driver must be met first to be skipped";
    ASSERT_LT(b, c);

    CFirmwareUpdateDlg dlg;
    dlg.m_strPort = port.c_str();
    dlg.m_strDriver = model.c_str();
    dlg.m_strPrinter = "earlier";
    EXPECT_EQ(dlg.FindSpoolerPrinter(), 1);
    EXPECT_EQ(std::string(dlg.m_strPrinter), first);

    // The update stage is this lookup.
    EXPECT_EQ(dlg.QueryPlotter(0), 0);
    EXPECT_EQ(std::string(dlg.m_strPrinter), first);

    dlg.m_strDriver = Unique("No Such Driver").c_str();
    EXPECT_EQ(dlg.FindSpoolerPrinter(), 0);
    EXPECT_TRUE(dlg.m_strPrinter.IsEmpty());
    EXPECT_EQ(dlg.QueryPlotter(0), 5);

    PRINTER_INFO_2A* info = CFirmwareUpdateDlg::GetPrinterInfo2(otherDriver.c_str());
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(std::string(info->pDriverName), other);
    EXPECT_EQ(std::string(info->pPortName), port);
    std::free(info);
    EXPECT_EQ(CFirmwareUpdateDlg::GetPrinterInfo2(Unique("No Such Printer").c_str()), nullptr);
}

TEST(SpoolerWinTest, RawJobArrivesInThePortFileByteForByte) {
    Printers printers;
    const std::string driver = Unique("Tarvonic Test KM500");
    printers.Driver(driver);
    const std::string port = printers.Port("job.bin");
    const std::string printer = Unique("UpdTest cutter");
    printers.Printer(printer, port, driver);

    CFirmwareUpdateDlg dlg;
    dlg.m_bDirectUsb = 0;
    dlg.m_strVendor = "Tarvonic";
    dlg.m_strModel = "KM500";
    dlg.m_strPort = port.c_str();
    dlg.m_strPrinter = printer.c_str();

    // Every byte value, in a piece of 1024 and a shorter one.
    std::string firmware;
    for (int i = 0; i < 1500; ++i) firmware += static_cast<char>((i * 7 + 3) & 0xFF);

    DWORD printJob = 0;
    const PlotterChannel send = dlg.OpenSendChannel(&printJob);
    ASSERT_NE(send, kNoChannel);
    ASSERT_NE(send, 0);
    ASSERT_NE(printJob, 0u);

    // The job, while it is open, is named after the plotter. (This spooler
    // does not report a job's data type; the stand-in's tests check it.)
    DWORD needed = 0;
    GetJobA(reinterpret_cast<HANDLE>(send), printJob, 1, nullptr, 0, &needed);
    std::vector<BYTE> jobInfo(needed + 1, 0);
    ASSERT_TRUE(GetJobA(reinterpret_cast<HANDLE>(send), printJob, 1, jobInfo.data(), needed, &needed))
        << GetLastError();
    const JOB_INFO_1A* job = reinterpret_cast<const JOB_INFO_1A*>(jobInfo.data());
    EXPECT_EQ(std::string(job->pDocument ? job->pDocument : ""), "Tarvonic KM500");
    // Asked through a handle of its own, the spooler still holds the job.
    EXPECT_EQ(dlg.AskPrintJob(printJob), PrintJobFate::Pending);

    for (size_t at = 0; at < firmware.size(); at += 1024) {
        const DWORD count = static_cast<DWORD>(std::min<size_t>(1024, firmware.size() - at));
        DWORD written = 0;
        EXPECT_EQ(dlg.WriteSendChannel(send, firmware.data() + at, count, &written), 0);
        EXPECT_EQ(written, count);
    }
    dlg.CloseSendChannel(send);

    EXPECT_EQ(ReadWholeFile(port), firmware);
    // Written to its file port, the job has left the queue; a printer that
    // cannot be opened gives no word on it.
    EXPECT_EQ(dlg.AskPrintJob(printJob), PrintJobFate::Delivered);
    dlg.m_strPrinter = Unique("No Such Printer").c_str();
    EXPECT_EQ(dlg.AskPrintJob(printJob), PrintJobFate::Unknown);
}

TEST(ReplyLocaleWinTest, NumbersReadTheSameUnderACommaLocale) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "German_Germany.1252"), nullptr);
    // The runtime's own reading now takes the comma.
    EXPECT_DOUBLE_EQ(std::atof("2,5"), 2.5);

    EXPECT_DOUBLE_EQ(protocol::ReadDecimal("2.30"), 2.30);
    EXPECT_DOUBLE_EQ(protocol::ReadDecimal("2,30"), 2.0);
    int version = 0;
    EXPECT_TRUE(protocol::ScaleVersion(protocol::ReadDecimal(protocol::VersionText("V2.30\x03")), &version));
    EXPECT_EQ(version, 230);
    std::setlocale(LC_ALL, before.c_str());
}
