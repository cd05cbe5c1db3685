// Texts the operator sees from a transfer (UTF-8).
#pragma once

namespace talpir::link::texts {

inline constexpr char kErrorCaption[] = "Ошибка";
inline constexpr char kOutOfMemory[] = "Недостаточьно памяти";
inline constexpr char kPortNotOpened[] = "Невозможно открыть последовательный порт.";
inline constexpr char kFileNotOpened[] = "Ошибка открытия файла.";
inline constexpr char kEchoMismatch[] = "Ошибка чтения эха =";  // followed by the index
inline constexpr char kVersionError[] = "Ошибка версии.";
inline constexpr char kRefused[] = "default error. File damaged.";
inline constexpr char kDone[] = "Передача файла завершена.";
inline constexpr char kLinkLost[] = "Связь с устройством потеряна.";
inline constexpr char kNoAnswer[] = "Устройство не отвечает.";

inline constexpr char kStart[] = "СТАРТ";
inline constexpr char kAbort[] = "Прервать";

}  // namespace talpir::link::texts
