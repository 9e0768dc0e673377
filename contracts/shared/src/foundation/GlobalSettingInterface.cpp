// The typed global-setting overloads, over the two text primitives.
#include "DatabaseInterfaces/GlobalSettingInterface.h"

namespace DatabaseInterfaces {

template <typename T>
ConfigSourceType GlobalSettingInterface::readTyped(const std::string& key, T& value, const T& defaultValue) {
    std::string text;
    const ConfigSourceType source = _getGlobalSetting(key, text, boost::lexical_cast<std::string>(defaultValue));
    value = text.empty() ? defaultValue : boost::lexical_cast<T>(text);
    return source;
}

template <typename T>
void GlobalSettingInterface::writeTyped(const std::string& key, const T& value) {
    _updateGlobalSetting(key, boost::lexical_cast<std::string>(value));
}

ConfigSourceType GlobalSettingInterface::getGlobalSetting(const std::string& key, bool& value,
                                                          const bool& defaultValue) {
    return readTyped(key, value, defaultValue);
}
ConfigSourceType GlobalSettingInterface::getGlobalSetting(const std::string& key, int& value,
                                                          const int& defaultValue) {
    return readTyped(key, value, defaultValue);
}
ConfigSourceType GlobalSettingInterface::getGlobalSetting(const std::string& key, unsigned& value,
                                                          const unsigned& defaultValue) {
    return readTyped(key, value, defaultValue);
}
ConfigSourceType GlobalSettingInterface::getGlobalSetting(const std::string& key, long long& value,
                                                          const long long& defaultValue) {
    return readTyped(key, value, defaultValue);
}
ConfigSourceType GlobalSettingInterface::getGlobalSetting(const std::string& key, unsigned long long& value,
                                                          const unsigned long long& defaultValue) {
    return readTyped(key, value, defaultValue);
}
ConfigSourceType GlobalSettingInterface::getGlobalSetting(const std::string& key, float& value,
                                                          const float& defaultValue) {
    return readTyped(key, value, defaultValue);
}
ConfigSourceType GlobalSettingInterface::getGlobalSetting(const std::string& key, double& value,
                                                          const double& defaultValue) {
    return readTyped(key, value, defaultValue);
}
ConfigSourceType GlobalSettingInterface::getGlobalSetting(const std::string& key, std::string& value,
                                                          const std::string& defaultValue) {
    return _getGlobalSetting(key, value, defaultValue);
}

void GlobalSettingInterface::updateGlobalSetting(const std::string& key, const bool& value) { writeTyped(key, value); }
void GlobalSettingInterface::updateGlobalSetting(const std::string& key, const int& value) { writeTyped(key, value); }
void GlobalSettingInterface::updateGlobalSetting(const std::string& key, const unsigned& value) {
    writeTyped(key, value);
}
void GlobalSettingInterface::updateGlobalSetting(const std::string& key, const long long& value) {
    writeTyped(key, value);
}
void GlobalSettingInterface::updateGlobalSetting(const std::string& key, const unsigned long long& value) {
    writeTyped(key, value);
}
void GlobalSettingInterface::updateGlobalSetting(const std::string& key, const float& value) {
    writeTyped(key, value);
}
void GlobalSettingInterface::updateGlobalSetting(const std::string& key, const double& value) {
    writeTyped(key, value);
}
void GlobalSettingInterface::updateGlobalSetting(const std::string& key, const std::string& value) {
    _updateGlobalSetting(key, value);
}

GlobalSettingInterface::~GlobalSettingInterface() = default;

}  // namespace DatabaseInterfaces
