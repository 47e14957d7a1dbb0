/* Stand-in for the indicator-brightness kernel driver.
 *
 * The LED utility opens \\.\VelraEIO and sends IOCTL 0x0022C400 with a
 * 4-byte level; this driver accepts that request, refuses every other code,
 * and appends one line per event to C:\testbed\events.log so tests and the
 * demo can see what reached the device. Wine hosts it in user mode
 * (winedevice.exe); tbdriver.exe installs, starts, stops and removes it.
 */
#include <ntifs.h>

#define VELRA_IOCTL_SET_LEVEL 0x0022C400u

static const WCHAR kDeviceName[] = L"\\Device\\VelraEIO";
static const WCHAR kLinkName[] = L"\\DosDevices\\VelraEIO";
static const WCHAR kLogDir[] = L"\\??\\C:\\testbed";
static const WCHAR kLogFile[] = L"\\??\\C:\\testbed\\events.log";

/* Longest line: "driver ioctl XXXXXXXX <len> " plus the hex of this many
 * input bytes; longer inputs are cut so the line stays one write. */
#define MAX_LOGGED_INPUT 64

typedef struct LineBuf {
    char text[32 + 2 * MAX_LOGGED_INPUT + 16];
    ULONG len;
} LineBuf;

static void put_str(LineBuf *b, const char *s)
{
    while (*s && b->len < sizeof(b->text) - 2)
        b->text[b->len++] = *s++;
}

static void put_hex_byte(LineBuf *b, UCHAR v)
{
    static const char digits[] = "0123456789ABCDEF";
    if (b->len + 2 < sizeof(b->text) - 2) {
        b->text[b->len++] = digits[v >> 4];
        b->text[b->len++] = digits[v & 15];
    }
}

static void put_hex32(LineBuf *b, ULONG v)
{
    int shift;
    for (shift = 24; shift >= 0; shift -= 8)
        put_hex_byte(b, (UCHAR)(v >> shift));
}

static void put_dec(LineBuf *b, ULONG v)
{
    char tmp[12];
    int n = 0;
    do {
        tmp[n++] = (char)('0' + v % 10);
        v /= 10;
    } while (v);
    while (n && b->len < sizeof(b->text) - 2)
        b->text[b->len++] = tmp[--n];
}

static NTSTATUS open_for_create(PHANDLE h, const WCHAR *path, ACCESS_MASK access, ULONG options)
{
    UNICODE_STRING name;
    OBJECT_ATTRIBUTES oa;
    IO_STATUS_BLOCK iosb;

    RtlInitUnicodeString(&name, path);
    InitializeObjectAttributes(&oa, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
    return ZwCreateFile(h, access | SYNCHRONIZE, &oa, &iosb, NULL, FILE_ATTRIBUTE_NORMAL,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN_IF,
                        options | FILE_SYNCHRONOUS_IO_NONALERT, NULL, 0);
}

/* The DDK headers give both lock calls a ULONG key where the system takes
 * a PULONG: in the 64-bit build the upper half of that stack slot would be
 * whatever it held before, and a non-null key is refused. Both are taken
 * with their real types from the kernel's export table. */
typedef NTSTATUS(NTAPI *LockFileFn)(HANDLE, HANDLE, PIO_APC_ROUTINE, PVOID, PIO_STATUS_BLOCK,
                                    PLARGE_INTEGER, PLARGE_INTEGER, PULONG, BOOLEAN, BOOLEAN);
typedef NTSTATUS(NTAPI *UnlockFileFn)(HANDLE, PIO_STATUS_BLOCK, PLARGE_INTEGER, PLARGE_INTEGER, PULONG);
static LockFileFn lock_file;     /* set by DriverEntry */
static UnlockFileFn unlock_file;

/* Same protocol as the user-mode stand-ins (testbed/EventLog.cpp): append
 * while holding an exclusive lock on one byte far past the end of file.
 * Wine appends by "fstat, then pwrite at that size", so without the lock a
 * concurrent writer in another process could overwrite this line. */
static void write_line(LineBuf *b)
{
    HANDLE dir, file;
    IO_STATUS_BLOCK iosb, *iosb_for_lock;
    LARGE_INTEGER lock_at, lock_len;
    NTSTATUS locked;

    b->text[b->len++] = '\r';
    b->text[b->len++] = '\n';
    if (NT_SUCCESS(open_for_create(&dir, kLogDir, FILE_LIST_DIRECTORY, FILE_DIRECTORY_FILE)))
        ZwClose(dir);
    if (!NT_SUCCESS(open_for_create(&file, kLogFile, FILE_APPEND_DATA | FILE_READ_DATA,
                                    FILE_NON_DIRECTORY_FILE)))
        return;
    lock_at.QuadPart = 0x7FFFFFF0;
    lock_len.QuadPart = 1;
    /* Wine 8 refuses the lock calls with STATUS_NOT_IMPLEMENTED when given
     * an IO_STATUS_BLOCK (or a key), and only honours them without one;
     * Windows needs the block, hence the retry. */
    iosb_for_lock = &iosb;
    locked = lock_file(file, NULL, NULL, NULL, iosb_for_lock, &lock_at, &lock_len, NULL, FALSE, TRUE);
    if (locked == STATUS_NOT_IMPLEMENTED) {
        iosb_for_lock = NULL;
        locked = lock_file(file, NULL, NULL, NULL, NULL, &lock_at, &lock_len, NULL, FALSE, TRUE);
    }
    ZwWriteFile(file, NULL, NULL, NULL, &iosb, b->text, b->len, NULL, NULL);
    if (NT_SUCCESS(locked))
        unlock_file(file, iosb_for_lock, &lock_at, &lock_len, NULL);
    ZwClose(file);
}

static void log_event(const char *event)
{
    LineBuf b;
    b.len = 0;
    put_str(&b, "driver ");
    put_str(&b, event);
    write_line(&b);
}

static NTSTATUS complete(PIRP irp, NTSTATUS status)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS NTAPI on_create(PDEVICE_OBJECT dev, PIRP irp)
{
    (void)dev;
    log_event("open");
    return complete(irp, STATUS_SUCCESS);
}

static NTSTATUS NTAPI on_close(PDEVICE_OBJECT dev, PIRP irp)
{
    (void)dev;
    log_event("close");
    return complete(irp, STATUS_SUCCESS);
}

static NTSTATUS NTAPI on_device_control(PDEVICE_OBJECT dev, PIRP irp)
{
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    ULONG code = sp->Parameters.DeviceIoControl.IoControlCode;
    ULONG inlen = sp->Parameters.DeviceIoControl.InputBufferLength;
    /* All codes are logged through the buffered-method system buffer; for a
     * non-buffered code that pointer is not the caller's input, so only the
     * length is trusted there. */
    const UCHAR *in = (code & 3) == METHOD_BUFFERED ? irp->AssociatedIrp.SystemBuffer : NULL;
    LineBuf b;
    ULONG i;

    (void)dev;
    b.len = 0;
    put_str(&b, "driver ioctl ");
    put_hex32(&b, code);
    put_str(&b, " ");
    put_dec(&b, inlen);
    if (in && inlen) {
        put_str(&b, " ");
        for (i = 0; i < inlen && i < MAX_LOGGED_INPUT; i++)
            put_hex_byte(&b, in[i]);
    }
    write_line(&b);
    return complete(irp,
                    code == VELRA_IOCTL_SET_LEVEL ? STATUS_SUCCESS : STATUS_INVALID_DEVICE_REQUEST);
}

static VOID NTAPI on_unload(PDRIVER_OBJECT drv)
{
    UNICODE_STRING link;

    RtlInitUnicodeString(&link, kLinkName);
    IoDeleteSymbolicLink(&link);
    if (drv->DeviceObject)
        IoDeleteDevice(drv->DeviceObject);
    log_event("unload");
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT drv, PUNICODE_STRING registry_path)
{
    UNICODE_STRING dev_name, link;
    PDEVICE_OBJECT dev;
    NTSTATUS status;

    (void)registry_path;
    RtlInitUnicodeString(&dev_name, L"ZwLockFile");
    lock_file = (LockFileFn)MmGetSystemRoutineAddress(&dev_name);
    RtlInitUnicodeString(&dev_name, L"ZwUnlockFile");
    unlock_file = (UnlockFileFn)MmGetSystemRoutineAddress(&dev_name);
    if (!lock_file || !unlock_file)
        return STATUS_PROCEDURE_NOT_FOUND;
    RtlInitUnicodeString(&dev_name, kDeviceName);
    status = IoCreateDevice(drv, 0, &dev_name, FILE_DEVICE_UNKNOWN, 0, FALSE, &dev);
    if (!NT_SUCCESS(status))
        return status;
    RtlInitUnicodeString(&link, kLinkName);
    status = IoCreateSymbolicLink(&link, &dev_name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(dev);
        return status;
    }
    drv->MajorFunction[IRP_MJ_CREATE] = on_create;
    drv->MajorFunction[IRP_MJ_CLOSE] = on_close;
    drv->MajorFunction[IRP_MJ_DEVICE_CONTROL] = on_device_control;
    drv->DriverUnload = on_unload;
    log_event("load");
    return STATUS_SUCCESS;
}
