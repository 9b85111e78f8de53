#include "NoticeTexts.h"

#include "Cp1251.h"
#include "Sysutil.h"

#include <string_view>

namespace telv::sim {
namespace {

constexpr std::string_view kPlainTexts[] = {
    "Сервер: плановая проверка каналов завершена",
    "Внимание! Высокая загрузка сервера",
    "Обновлён список разрешённых приборов",
    "Резервное копирование базы выполнено",
    "Ошибка записи журнала: диск почти заполнен",
};

// "%s" is replaced by the device ID text.
constexpr std::string_view kDeviceTexts[] = {
    "Прибор %s не отвечает на запросы",
    "Получено событие «Расписание» от прибора %s",
    "Прибор %s: превышено время ожидания ответа",
};

std::string DeviceIdText(const DeviceIdField& id) {
    const std::size_t length = BoundedLength(id.data(), id.size());
    return std::string(reinterpret_cast<const char*>(id.data()), length);
}

std::string WithDevice(std::string_view utf8Template, const std::string& idText) {
    const std::string cp1251 = Utf8ToCp1251(utf8Template);
    const std::size_t at = cp1251.find("%s");
    if (at == std::string::npos) return cp1251;
    return cp1251.substr(0, at) + idText + cp1251.substr(at + 2);
}

std::string HostileText(SimRandom& rng) {
    switch (rng.Below(4)) {
    case 0: return Utf8ToCp1251("Ошибка\r\n\tканала ") + "\x98\x01\x1b[31m" + Utf8ToCp1251(" сброс");
    case 1: return std::string("\x98\x98\x98", 3) + std::string(1, '\0') + Utf8ToCp1251("после нуля");
    case 2: return {};  // an empty text
    default: {
        std::string noise;
        for (std::uint32_t i = 0, n = rng.Between(1, 40); i < n; ++i) noise.push_back(static_cast<char>(rng.Byte()));
        return noise;
    }
    }
}

template <std::size_t N>
std::string_view Pick(SimRandom& rng, const std::string_view (&texts)[N]) {
    return texts[rng.Below(static_cast<std::uint32_t>(N))];
}

}  // namespace

std::string MakeTextMessage(SimRandom& rng, const DeviceIdField* deviceId, bool hostile) {
    if (hostile && rng.OneIn(3)) return HostileText(rng);
    if (deviceId && rng.OneIn(2)) return WithDevice(Pick(rng, kDeviceTexts), DeviceIdText(*deviceId));
    return Utf8ToCp1251(Pick(rng, kPlainTexts));
}

}  // namespace telv::sim
