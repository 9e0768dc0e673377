// The global-setting half of every database interface.
//
// The typed overloads are implemented here over _getGlobalSetting and
// _updateGlobalSetting: a reader turns its default into text, asks for the text
// value, and converts a non-empty answer back with boost::lexical_cast (a failed
// conversion throws boost::bad_lexical_cast); a writer converts its value to
// text. The slot order is fixed: eight readers, eight writers (text last in
// each group), deleteGlobalSetting, the destructor, then the two primitives.
#pragma once

#include <string>

#include <boost/lexical_cast.hpp>

#include "SharedApi.h"

namespace DatabaseInterfaces {

enum ConfigSourceType {
    CONFIG_SOURCE_DEFAULT = 0,
    CONFIG_SOURCE_NODE = 1,
    CONFIG_SOURCE_DATABASE = 2
};

class SHARED_API GlobalSettingInterface {
public:
    virtual ConfigSourceType getGlobalSetting(const std::string& key, bool& value, const bool& defaultValue);
    virtual ConfigSourceType getGlobalSetting(const std::string& key, int& value, const int& defaultValue);
    virtual ConfigSourceType getGlobalSetting(const std::string& key, unsigned& value, const unsigned& defaultValue);
    virtual ConfigSourceType getGlobalSetting(const std::string& key, long long& value,
                                              const long long& defaultValue);
    virtual ConfigSourceType getGlobalSetting(const std::string& key, unsigned long long& value,
                                              const unsigned long long& defaultValue);
    virtual ConfigSourceType getGlobalSetting(const std::string& key, float& value, const float& defaultValue);
    virtual ConfigSourceType getGlobalSetting(const std::string& key, double& value, const double& defaultValue);
    virtual ConfigSourceType getGlobalSetting(const std::string& key, std::string& value,
                                              const std::string& defaultValue);

    virtual void updateGlobalSetting(const std::string& key, const bool& value);
    virtual void updateGlobalSetting(const std::string& key, const int& value);
    virtual void updateGlobalSetting(const std::string& key, const unsigned& value);
    virtual void updateGlobalSetting(const std::string& key, const long long& value);
    virtual void updateGlobalSetting(const std::string& key, const unsigned long long& value);
    virtual void updateGlobalSetting(const std::string& key, const float& value);
    virtual void updateGlobalSetting(const std::string& key, const double& value);
    virtual void updateGlobalSetting(const std::string& key, const std::string& value);

    virtual void deleteGlobalSetting(const std::string& key) = 0;
    virtual ~GlobalSettingInterface();
    virtual ConfigSourceType _getGlobalSetting(const std::string& key, std::string& value,
                                               const std::string& defaultValue) = 0;
    virtual void _updateGlobalSetting(const std::string& key, const std::string& value) = 0;

private:
    template <typename T>
    ConfigSourceType readTyped(const std::string& key, T& value, const T& defaultValue);
    template <typename T>
    void writeTyped(const std::string& key, const T& value);
};

}  // namespace DatabaseInterfaces
